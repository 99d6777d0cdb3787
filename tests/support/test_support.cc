#include "support/test_support.h"

namespace tov::testing {

std::string program_path() { return TOV_PROGRAM_PATH; }
std::string stand_in_path() { return TOV_STAND_IN_PATH; }

}  // namespace tov::testing
