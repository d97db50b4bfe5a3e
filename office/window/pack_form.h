// The office's window: the roster chosen, dropped or given on the command
// line and read at once, its report shown; what to make chosen (a Windows or
// Linux program, a web page, a site), protection on or off, where to write;
// the sealing watched and cancelled; the result opened. Written once against
// the toolkit (toolkit.h); every step is the packer's (office/pack/packer.h).
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "office/pack/packer.h"
#include "office/window/toolkit.h"

class PackForm {
public:
    // Where the templates are (empty: not at hand) and the sealing's cost.
    struct Setup {
        std::filesystem::path windowsProgram, linuxProgram, page;
        SealCost cost = DEFAULT_SEAL_COST;
    };
    // The templates shipped beside the office's programs.
    static Setup shipped();

    explicit PackForm(Setup setup);
    ~PackForm();  // a packing still running is cancelled and waited for

    otk::Window& window() { return window_; }

    // What to make; the order of the radio buttons.
    enum class Kind { Windows, Linux, Page, Site };

    // Reads this roster as if it had been chosen.
    void open(const std::filesystem::path& roster);

    // The handlers.
    void Choose_Click();
    void Reread_Click();
    void Sheet_Change();
    void Column_Change();
    void Kind_Click(Kind kind);
    void Protect_Click();
    void Make_Click();
    void Cancel_Click();
    void OpenFolder_Click();
    void Try_Click();
    void Form_Drop(const std::filesystem::path& file);
    bool Form_Close();

private:
    enum class State { Empty, Reading, Refused, Ready, Making, Made };

    void read();
    void showRead(std::shared_ptr<ReadRoster> roster, std::string failure);
    void showState();
    void showFit();
    void progress(std::size_t done, std::size_t total);
    void showMade(const Made& made);
    void showStopped(const std::u16string& why);
    PackOptions options() const;
    Kind kind() const;
    std::filesystem::path templateOf(Kind kind) const;
    std::optional<std::filesystem::path> chooseOutput(const PackOptions& options, const Template& program);
    void start(std::function<void()> work);

    Setup setup_;
    otk::Window window_;
    State state_ = State::Empty;
    std::filesystem::path roster_;
    // The roster file as it was when read: a change since says the report is stale.
    std::optional<std::pair<std::filesystem::file_time_type, std::uintmax_t>> stamp_;
    std::optional<std::pair<std::filesystem::file_time_type, std::uintmax_t>> stamp() const;
    std::shared_ptr<ReadRoster> read_;
    std::u16string report_;  // what the report box shows of the roster read
    std::string sheet_;                  // "" for every sheet with the header
    std::vector<std::string> sheets_;    // the Choice's sheets after its first entry
    ColumnChoice columns_;               // the columns chosen, as --column chooses them
    int columnField_ = -1;               // the field whose column is offered, -1 for none
    std::vector<std::string> columnLetters_;  // the offered columns' letters
    std::optional<Made> made_;
    Kind madeKind_ = Kind::Page;
    std::chrono::steady_clock::time_point started_;
    std::atomic<bool> cancel_ = false;
    std::jthread worker_;  // last: joined before the window goes
};
