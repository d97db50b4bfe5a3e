// The score query: 确  定 looks up the ticket number and checks the identity number.
#include <cstdint>
#include <limits>
#include <optional>

#include "form/form1.h"
#include "query/shown.h"
#include "roster/area.h"
#include "roster/bucket.h"
#include "roster/seal.h"

namespace {

constexpr std::u16string_view WARNING = u"警告";

// The row counter is a 16-bit signed integer; leaving its range is run-time error 6.
void increment(std::int16_t& counter)
{
    if (counter == std::numeric_limits<std::int16_t>::max())
        throw tk::overflowError();
    ++counter;
}

// The identity check, for a row of the program's roster and a record of a
// site's bucket alike: the identity number equals the record's exactly. A
// protected roster keeps none: there the record's sealed record (at `at`)
// must open with the key derived from the identity number, which it does for
// that number only. Returns the record, or nothing once the warning has been
// shown.
std::optional<RosterRecord> checkIdentity(const CarriedRoster& roster, std::size_t at, const RosterRecord& record,
                                          const std::u16string& identity)
{
    std::optional<RosterRecord> found;
    if (roster.isSealed()) {
        const tk::BusyCursor busy;  // deriving the key takes a moment
        found = openRecord(roster.sealed.at(at), record.zhun, identity, roster.scope);
    } else if (identity == record.shen) {
        found = record;
    }
    if (!found)
        tk::MsgBox(u"准考证号与身份证号不一致", 0, WARNING);
    return found;
}

// The lookup on a site's page, which carries no records: the ticket's bucket
// is fetched from beside the page first (roster/bucket.h). A bucket that does
// not load is never an answer: the warning says the lookup could not be
// done. Returns the record, or nothing once a warning has been shown.
std::optional<RosterRecord> lookUpOnSite(const SiteIndex& index, const std::u16string& ticket,
                                         const std::u16string& identity)
{
    std::optional<CarriedRoster> loaded;
    {
        const tk::BusyCursor busy;  // the fetch takes a moment
        loaded = loadBucket(index, ticket);
    }
    if (!loaded) {
        tk::MsgBox(u"查询未能完成，请稍后再试。", 0, WARNING);
        return std::nullopt;
    }
    const CarriedRoster& bucket = *loaded;
    const auto at = findTicket(bucket, ticket);
    if (!at) {
        tk::MsgBox(u"无此考生", 0, WARNING);
        return std::nullopt;
    }
    return checkIdentity(bucket, *at, bucket.records[*at], identity);
}

}  // namespace

void Form1::Command1_Click()
{
    // Input check: at most one prompt; the gate below ends the handler after it.
    if (Text1.text().empty())
        tk::MsgBox(u"请输入准考证号", 0, WARNING);
    else if (Text2.text().empty())
        tk::MsgBox(u"请输入身份证号", 0, WARNING);
    if (Text1.text().empty() || Text2.text().empty())
        return;

    std::optional<RosterRecord> found;
    if (const SiteIndex* site = carriedSite()) {
        found = lookUpOnSite(*site, Text1.text(), Text2.text());
    } else {
        // First row whose ticket number equals Text1 exactly, read afresh each row.
        std::int16_t row = 1;
        while (row <= ROSTER_ROWS && Text1.text() != zhun(row))
            increment(row);
        if (row > ROSTER_ROWS) {
            tk::MsgBox(u"无此考生", 0, WARNING);
            return;
        }
        found = checkIdentity(carriedRoster(), static_cast<std::size_t>(row - 1),
                              {zhun(row), shen(row), xing(row), chengji(row), beizhu(row)}, Text2.text());
    }
    if (!found)
        return;

    Label7.setVisible(true);
    Label6.setVisible(true);
    Text3.setText(found->xing);
    Text4.setText(shownScore(found->chengji, found->beizhu));
    Text3.setVisible(true);
    Text4.setVisible(true);
    Command1.setVisible(false);
    Command2.setVisible(true);
    Command3.setVisible(true);
}
