// The roster columns of Form1 and their load; the roster area, a site's files and their writers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "form/form1.h"
#include "office/write/area_write.h"
#include "office/write/page.h"
#include "office/write/site.h"
#include "roster/bucket.h"
#include "roster/page.h"
#include "roster/utf.h"
#include "tests/carried_roster.h"

namespace {

const Column Form1::* const COLUMNS[] = {&Form1::zhun, &Form1::shen, &Form1::xing, &Form1::chengji, &Form1::beizhu};

int errorNumberReading(const Column& column, int index)
{
    try {
        (void)column(index);
    } catch (const tk::RuntimeError& error) {
        return error.number();
    }
    return 0;
}

}  // namespace

TEST(Column, startsEmptyAndChecksEveryIndex)
{
    Column column(350);
    for (int k = 0; k <= ROSTER_UPPER; ++k)
        EXPECT_EQ(column(k), u"");
    EXPECT_EQ(errorNumberReading(column, 351), 9);
    EXPECT_EQ(errorNumberReading(column, -1), 9);
    EXPECT_EQ(errorNumberReading(column, 350), 0);
    column(350) += u'x';
    EXPECT_EQ(column(350), u"x");
}

TEST(RosterLoad, eachProcedureFillsOnlyItsOwnColumn)
{
    Form1 form;
    form.xing111();
    EXPECT_EQ(form.xing(1), ROSTER_DATA[0].xing);
    EXPECT_EQ(form.zhun(1), u"");
    EXPECT_EQ(form.shen(1), u"");
    form.zhun111();
    EXPECT_EQ(form.zhun(ROSTER_ROWS), ROSTER_DATA[ROSTER_ROWS - 1].zhun);
    EXPECT_EQ(form.shen(ROSTER_ROWS), u"");
    form.shen111();
    EXPECT_EQ(form.shen(ROSTER_ROWS), ROSTER_DATA[ROSTER_ROWS - 1].shen);
    EXPECT_EQ(form.chengji(1), u"");
    EXPECT_EQ(form.beizhu(1), u"");
}

TEST(RosterLoad, formLoadFillsRowsOneTo339AndLeavesTheRestEmpty)
{
    Form1 form;
    form.Form_Load();
    for (auto column : COLUMNS) {
        EXPECT_EQ((form.*column)(0), u"");
        for (int k = ROSTER_ROWS + 1; k <= ROSTER_UPPER; ++k)
            EXPECT_EQ((form.*column)(k), u"") << k;
        EXPECT_EQ(errorNumberReading(form.*column, ROSTER_UPPER + 1), 9);
    }
    int emptyRemarks = 0;
    for (int k = 1; k <= ROSTER_ROWS; ++k) {
        const RosterRecord& r = ROSTER_DATA[k - 1];
        EXPECT_EQ(form.zhun(k), r.zhun);
        EXPECT_EQ(form.shen(k), r.shen);
        EXPECT_EQ(form.xing(k), r.xing);
        EXPECT_EQ(form.chengji(k), r.chengji);  // spaces and all
        EXPECT_EQ(form.beizhu(k), r.beizhu);
        EXPECT_FALSE(form.zhun(k).empty() || form.shen(k).empty() || form.xing(k).empty() || form.chengji(k).empty());
        emptyRemarks += form.beizhu(k).empty();
    }
#ifdef DEFAULT_ROSTER
    EXPECT_EQ(emptyRemarks, 311);
#endif
}

TEST(RosterLoad, everyTicketAndIdentityNumberFirstMatchesItsOwnRow)
{
    Form1 form;
    form.Form_Load();
    for (int k = 1; k <= ROSTER_ROWS; ++k) {
        int ticketRow = 1, identityRow = 1;
        while (form.zhun(ticketRow) != form.zhun(k))
            ++ticketRow;
        while (form.shen(identityRow) != form.shen(k))
            ++identityRow;
        EXPECT_EQ(ticketRow, k);
        EXPECT_EQ(identityRow, k);
    }
}

#ifdef DEFAULT_ROSTER
TEST(RosterLoad, keepsScoreSpacesAndUpperCaseX)
{
    Form1 form;
    form.Form_Load();
    int whole = 0, upperX = 0;
    for (int k = 1; k <= ROSTER_ROWS; ++k) {
        const auto& score = form.chengji(k);
        whole += score.size() == 5 && score[2] != u' ' && score.substr(3) == u"  ";  // " 58  "
        upperX += form.shen(k).back() == u'X';
        EXPECT_NE(form.shen(k).back(), u'x');
    }
    EXPECT_EQ(whole, 21);
    EXPECT_EQ(upperX, 34);
}
#endif

TEST(RosterArea, givesBackEveryCodeUnitAndRefusesDamage)
{
    CarriedRoster plain;
    plain.records = {{u"1", u"2", u"a\"b\\c", std::u16string(u"x\0y", 3), u"\u0085\u00A0\u3000中\U0001F600"},
                     {u"3", u"4", u"", u" 58  ", u""}};
    std::string area = encodeArea(plain, 4096);
    ASSERT_EQ(area.size(), 4096u);
    const auto bytes = [&] { return std::span(reinterpret_cast<const unsigned char*>(area.data()), area.size()); };
    EXPECT_EQ(decodeArea(bytes()).records, plain.records);
    EXPECT_EQ(findArea(bytes()), 0u);
    const std::string program = area.substr(0, ROSTER_MARKER_SIZE) + std::string(40, 'x') + area;  // marker as a constant first
    EXPECT_EQ(findArea(std::span(reinterpret_cast<const unsigned char*>(program.data()), program.size())),
              ROSTER_MARKER_SIZE + 40);

    // Any byte of a plain roster flipped: the checksum or a length gives it away.
    const std::size_t header = ROSTER_AREA_HEADER;
    for (std::size_t at : {ROSTER_MARKER_SIZE + 12, header - 1, header + 3, header + 20}) {
        area[at] ^= 0x01;
        EXPECT_THROW(decodeArea(bytes()), RosterAreaError) << at;
        area[at] ^= 0x01;
    }
    EXPECT_THROW(decodeArea(bytes().first(4095)), RosterAreaError);
    EXPECT_THROW(encodeArea(plain, 90), AreaFullError);
}

TEST(RosterArea, damageToASealedRecordStaysInThatRecord)
{
    CarriedRoster sealed;
    sealed.records = {{u"10731050419", {}, {}, {}, {}}, {u"10731050416", {}, {}, {}, {}}};
    sealed.sealed = {"first sealed record", "second"};
    sealed.scope = {newRosterId(), {2, 65536}};
    std::string area = encodeArea(sealed, 1024);
    const auto bytes = std::span(reinterpret_cast<const unsigned char*>(area.data()), area.size());
    const std::size_t first = area.find("first");
    area[first] ^= 0x01;
    const CarriedRoster read = decodeArea(bytes);
    EXPECT_EQ(read.records, sealed.records);
    EXPECT_EQ(read.sealed[0], "girst sealed record");
    EXPECT_EQ(read.sealed[1], "second");
    EXPECT_EQ(read.scope.rosterId, sealed.scope.rosterId);
    EXPECT_EQ(read.scope.cost.opsLimit, 2u);
    EXPECT_EQ(read.scope.cost.memLimitKiB, 65536u);
    area[first - 3] ^= 0x01;  // the ticket number before it
    EXPECT_THROW(decodeArea(bytes), RosterAreaError);

    // A cost out of bounds, checksum and all in order, is a damaged area: the
    // program would hang on it or fail to allocate.
    for (const SealCost cost : {SealCost{0, 8}, SealCost{0xFFFFFFFF, 8}, SealCost{1, 7}, SealCost{1, 0xFFFFFFFF}}) {
        sealed.scope.cost = cost;
        const std::string damaged = encodeArea(sealed, 1024);
        EXPECT_THROW(decodeArea(std::span(reinterpret_cast<const unsigned char*>(damaged.data()), damaged.size())),
                     RosterAreaError)
            << cost.opsLimit << " " << cost.memLimitKiB;
    }
}

TEST(RosterArea, protectedIsSortedByTicketAndOfOneRecordSize)
{
    const std::vector<RosterRecord> records = {
        {u"10731050419", u"511702199001011234", u"王小明", u" 68.9    ", u""},
        {u"10731020102", u"51170219900101123X", u"李四", u" 0   ", u"缺考"},
        {u"10731030101", u"511702199001015678", u"欧阳明", u"  63.4    ", u"市委表彰优秀共产党员加5分"}};
    const CarriedRoster plain = toCarry(records, 4096);
    EXPECT_EQ(plain.records[0].zhun, u"10731050419");  // a plain roster keeps the office's order

    const CarriedRoster roster = toCarry(records, 4096, TEST_COST);
    ASSERT_EQ(roster.records.size(), 3u);
    EXPECT_EQ(roster.records[0].zhun, u"10731020102");
    EXPECT_EQ(roster.records[1].zhun, u"10731030101");
    EXPECT_EQ(roster.records[2].zhun, u"10731050419");
    EXPECT_EQ(roster.sealed[0].size(), roster.sealed[2].size());
    EXPECT_EQ(roster.sealed[1].size(), roster.sealed[2].size());
    EXPECT_EQ(openRecord(roster.sealed[0], u"10731020102", u"51170219900101123X", roster.scope),
              (RosterRecord{u"10731020102", u"", u"李四", u" 0   ", u"缺考"}));

    // Another packing of the same roster is another roster: its records do not open here.
    const CarriedRoster other = toCarry(records, 4096, TEST_COST);
    EXPECT_NE(other.scope.rosterId, roster.scope.rosterId);
    EXPECT_EQ(openRecord(other.sealed[0], u"10731020102", u"51170219900101123X", roster.scope), std::nullopt);
    EXPECT_THROW(toCarry(records, 4096, SealCost{0, 0}), std::invalid_argument);  // never taken for a plain roster

    // An area of an earlier version is named as such, not passed over in silence.
    std::string area = encodeArea(roster, 4096);
    area[ROSTER_MARKER_SIZE] = 1;
    try {
        findArea(std::span(reinterpret_cast<const unsigned char*>(area.data()), area.size()));
        ADD_FAILURE() << "an area of version 1 was taken";
    } catch (const RosterAreaError& error) {
        EXPECT_NE(std::string(error.what()).find("version 1"), std::string::npos) << error.what();
    }
}

TEST(SiteBucket, opensOnlyAsTheBucketAskedForOfItsOwnSiteWholeAndInOrder)
{
    const SiteIndex index{{newRosterId(), {1, 8}}, 3};
    const auto bytesOf = [](const std::string& s) {
        return std::span(reinterpret_cast<const unsigned char*>(s.data()), s.size());
    };
    const std::string indexArea = encodeSiteIndex(index);
    const SiteIndex readIndex = decodeSiteIndex(bytesOf(indexArea));
    EXPECT_EQ(readIndex.buckets, 3u);
    EXPECT_EQ(readIndex.scope.rosterId, index.scope.rosterId);
    EXPECT_TRUE(readIndex.isSealed());
    EXPECT_THROW(decodeArea(bytesOf(indexArea)), RosterAreaError);  // an index is no program's roster

    // Tickets of bucket 1, in order.
    CarriedRoster bucket;
    bucket.scope = index.scope;
    for (int n = 0; bucket.records.size() < 3; ++n)
        if (const std::u16string ticket = u"1073101" + std::u16string(1, char16_t(u'0' + n / 10)) +
                                          std::u16string(1, char16_t(u'0' + n % 10));
            bucketOf(ticket, index.scope.rosterId, 3) == 1) {
            bucket.records.push_back({ticket, {}, {}, {}, {}});
            bucket.sealed.push_back("sealed record " + std::to_string(n));
        }
    std::string file = encodeBucket(bucket);
    const auto bytes = [&] { return bytesOf(file); };
    const CarriedRoster read = decodeBucket(bytes(), index, 1);
    EXPECT_EQ(read.records, bucket.records);
    EXPECT_EQ(read.sealed, bucket.sealed);
    EXPECT_EQ(findTicket(read, bucket.records[2].zhun), 2u);
    EXPECT_EQ(findTicket(read, u"10731"), std::nullopt);
    EXPECT_THROW(decodeSiteIndex(bytes()), RosterAreaError);  // a bucket is no index

    EXPECT_THROW(decodeBucket(bytes(), index, 0), RosterAreaError);  // another bucket
    SiteIndex other = index;
    other.scope.rosterId = newRosterId();
    EXPECT_THROW(decodeBucket(bytes(), other, 1), RosterAreaError);  // another packing
    EXPECT_THROW(decodeBucket(bytes().first(file.size() - 1), index, 1), RosterAreaError);
    file[file.find("sealed record")] ^= 0x01;  // a sealed record's byte: the checksum covers it in a bucket
    EXPECT_THROW(decodeBucket(bytes(), index, 1), RosterAreaError);
    file[file.find("realed record")] ^= 0x01;
    std::swap(bucket.records[0], bucket.records[1]);
    EXPECT_THROW(decodeSiteBucket(bytesOf(encodeBucket(bucket))), RosterAreaError);  // out of order
    std::sort(bucket.records.begin(), bucket.records.end(), [](auto& a, auto& b) { return a.zhun < b.zhun; });
    file = encodeArea(bucket, 0);  // a program's area, of version 2, is no bucket
    EXPECT_THROW(decodeBucket(bytes(), index, 1), RosterAreaError);
}

// ---- Golden bytes ---------------------------------------------------------------
// Areas of every kind as the writers of commit c521b1e wrote them
// (tests/data/areas/): each is read to these records and written back byte
// for byte, so that a change to the code changes no byte of a program file,
// a page or a site.

namespace {

// The office's order; a protected roster and a bucket sort them by ticket.
const std::vector<RosterRecord> GOLDEN_RECORDS = {
    {u"10731050419", u"511702199001011234", u"王小明", u" 68.9    ", u"市委表彰优秀共产党员加5分"},
    {u"10731020102", u"51170219900101123X", u"李四", u" 0   ", u"缺考"},
    {u"10731030101", u"511702199001015678", u"欧阳\U00020BB7", u"  63.4    ", u""},  // a surrogate pair, no remark
};

RosterId goldenId(unsigned char first)
{
    RosterId id;
    for (std::size_t i = 0; i < id.size(); ++i)
        id[i] = static_cast<unsigned char>(first + i);
    return id;
}

enum class Kind { Roster, Bucket, Index };
const struct {
    const char* file;
    Kind kind;
    bool sealed;
    unsigned char id;  // the identifier's first byte, counting up; none at 0
} GOLDEN_AREAS[] = {
    {"roster-plain.bin", Kind::Roster, false, 0},     // version 2, capacity 0: of its exact size
    {"roster-sealed.bin", Kind::Roster, true, 0x10},  // version 2 at TEST_COST
    {"bucket-plain.bin", Kind::Bucket, false, 0x20},  // version 3
    {"bucket-sealed.bin", Kind::Bucket, true, 0x30},
    {"site-index.bin", Kind::Index, true, 0x30},      // the index of the site of bucket-sealed.bin: one bucket
};

}  // namespace

TEST(GoldenArea, readsEachKindToItsRecordsAndWritesItBackByteForByte)
{
    std::vector<RosterRecord> sorted = GOLDEN_RECORDS;
    std::sort(sorted.begin(), sorted.end(), [](auto& a, auto& b) { return a.zhun < b.zhun; });
    for (const auto& golden : GOLDEN_AREAS) {
        SCOPED_TRACE(golden.file);
        const std::string file = readFile((std::string(TEST_DATA) + "/areas/" + golden.file).c_str());
        const auto bytes = std::span(reinterpret_cast<const unsigned char*>(file.data()), file.size());
        const SealScope scope{golden.id ? goldenId(golden.id) : RosterId{}, golden.sealed ? TEST_COST : SealCost{0, 0}};

        SealScope read;
        std::string written;
        if (golden.kind == Kind::Index) {
            const SiteIndex index = decodeSiteIndex(bytes);
            EXPECT_EQ(index.buckets, 1u);
            read = index.scope;
            written = encodeSiteIndex(index);
        } else {
            const CarriedRoster roster =
                golden.kind == Kind::Bucket ? decodeBucket(bytes, SiteIndex{scope, 1}, 0) : decodeArea(bytes);
            read = roster.scope;
            written = golden.kind == Kind::Bucket ? encodeBucket(roster) : encodeArea(roster, 0);
            EXPECT_EQ(areaNeeded(GOLDEN_RECORDS, golden.sealed), file.size());  // sized before any sealing
            const auto& expected = golden.kind == Kind::Roster && !golden.sealed ? GOLDEN_RECORDS : sorted;
            ASSERT_EQ(roster.records.size(), expected.size());
            if (!golden.sealed) {
                EXPECT_EQ(roster.records, expected);
            }
            for (std::size_t i = 0; golden.sealed && i < expected.size(); ++i) {
                EXPECT_EQ(roster.records[i], (RosterRecord{expected[i].zhun, {}, {}, {}, {}}));
                EXPECT_EQ(openRecord(roster.sealed[i], expected[i].zhun, expected[i].shen, roster.scope),
                          (RosterRecord{expected[i].zhun, u"", expected[i].xing, expected[i].chengji,
                                        expected[i].beizhu}));
            }
        }
        EXPECT_EQ(read.rosterId, scope.rosterId);
        EXPECT_EQ(read.cost.opsLimit, scope.cost.opsLimit);
        EXPECT_EQ(read.cost.memLimitKiB, scope.cost.memLimitKiB);
        EXPECT_TRUE(written == file) << "written anew, the bytes differ";
    }
    // The bucket a ticket falls in, as a site names its files.
    EXPECT_EQ(bucketOf(u"10731050419", goldenId(0x30), 1000), 471u);
    EXPECT_EQ(bucketOf(u"10731020102", goldenId(0x30), 1000), 897u);
    EXPECT_EQ(bucketOf(u"10731030101", goldenId(0x30), 1000), 748u);
}
