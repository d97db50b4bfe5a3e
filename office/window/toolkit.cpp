// What every backend of the office window's toolkit shares: the answers a
// test gives in place of the user.
#include "office/window/toolkit.h"

#include <mutex>

namespace otk {

namespace {

std::mutex answererMutex;
std::function<Answer(const Asked&)> answerer;

}  // namespace

void answerDialogs(std::function<Answer(const Asked&)> given)
{
    std::lock_guard lock(answererMutex);
    answerer = std::move(given);
}

std::optional<Answer> testAnswer(const Asked& asked)
{
    std::function<Answer(const Asked&)> current;
    {
        std::lock_guard lock(answererMutex);
        current = answerer;
    }
    if (!current)
        return std::nullopt;
    return current(asked);
}

}  // namespace otk
