// What the office window's drivers share: the dialogs answered in the
// user's place and recorded, the same on every toolkit.
#include "tests/office_driver.h"

#include <utility>

void OfficeDriver::takeDialogs()
{
    otk::answerDialogs([this](const otk::Asked& asked) {
        asked_.push_back(asked);
        if (answers_.empty())
            return otk::Answer{};
        otk::Answer answer = answers_.front();
        answers_.erase(answers_.begin());
        return answer;
    });
}

void OfficeDriver::answer(std::vector<otk::Answer> answers) { answers_ = std::move(answers); }

std::vector<otk::Asked> OfficeDriver::asked() { return std::exchange(asked_, {}); }
