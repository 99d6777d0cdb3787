// The stand-in app's life: publish the control file, answer one request per connection
// until nobody has asked anything for the idle time, then withdraw the file.
#pragma once

#include "bin/stand-in-app/settings.h"

namespace tov::standin {

// Runs the app to its end; returns the process exit code.
int run_app(const Settings& settings);

}  // namespace tov::standin
