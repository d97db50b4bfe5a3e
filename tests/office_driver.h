// Drives the office's window (PackForm) as a clerk would: clicking its
// controls through the toolkit's own input path, found by their accessible
// names, reading what they show, and answering its file dialogs and
// questions (otk::answerDialogs) with answers given beforehand, each
// recorded. One implementation per toolkit backend.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "office/window/pack_form.h"
#include "office/window/toolkit.h"

class OfficeDriver {
public:
    // Starts the window as varnholt-office does with these templates and,
    // unless empty, the roster given on its command line.
    explicit OfficeDriver(PackForm::Setup setup, const std::filesystem::path& roster = {});
    ~OfficeDriver();  // closes the window without asking; no top-level window is left

    PackForm& form() { return *form_; }

    // The answers, in order, to the next dialogs and questions; one that
    // finds none left is cancelled (a file dialog) or answered 否.
    void answer(std::vector<otk::Answer> answers);
    // Every dialog, question and message shown since the last call.
    std::vector<otk::Asked> asked();

    // A left click at the middle of the control named so (its accessible name).
    void click(std::u16string_view name);
    // A file dropped onto the window, as the file manager drops it.
    void drop(const std::filesystem::path& file);
    // The user closes the window from its title bar; true when it closed.
    bool close();
    // Chooses the entry of a Choice, as picking it from its list does.
    void choose(std::u16string_view name, int index);

    std::u16string text(std::u16string_view name) const;  // a caption, or a Report's whole text
    bool enabled(std::u16string_view name) const;
    bool visible(std::u16string_view name) const;
    bool checked(std::u16string_view name) const;
    std::vector<std::u16string> choices(std::u16string_view name) const;
    std::pair<long long, long long> progress(std::u16string_view name) const;  // value and maximum as drawn

    // Runs the event loop until `done` holds; false when `timeout` passes first.
    bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(60));

    // The window as drawn, into a PNG file.
    void screenshot(const std::filesystem::path& png) const;

private:
    void takeDialogs();  // from now on the window's dialogs are answered from answers_

    std::unique_ptr<PackForm> form_;
    std::vector<otk::Answer> answers_;
    std::vector<otk::Asked> asked_;
};
