// What the replay program asks of the platform it runs on; the simulated and the real platform each
// answer in their dispatch set-up.
#pragma once

#include <string>

namespace differential {

// Whose documented answers this build is held to: the simulation follows Windows; a Windows build
// asks the platform whether it is Wine.
enum class Platform { Windows, Wine };
Platform ThisPlatform();

// The number conversions read the user's thousands separator and decimal point, and the traces
// assume those of English (United States): a comma and a full stop. False, with what this user has,
// otherwise.
bool UserLocaleAsAssumed(std::string* found);

}  // namespace differential
