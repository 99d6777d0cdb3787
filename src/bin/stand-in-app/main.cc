// A stand-in for the Quillboard desktop app, built beside the program under the app's file
// name, so that the program has something to start, find and talk to.
//
// It listens on 127.0.0.1 (any free port), publishes cli-control.json (version 3, its
// address, a fresh random token, its pid) where the program looks for it, and answers one
// request line per connection with one answer line. "status", "open", "new", "close",
// "selectTab" and "hello" work on a small model of open tabs; every other operation answers
// ok with {"op", "params", "client"}: what it was asked. A wrong token is refused with the
// code "Unauthorized". After ten minutes without a request it removes its control file
// (when the file is still its own) and ends.
//
// Test knobs, read from the environment (the program passes its own to the app it starts);
// all optional:
//   QB_STANDIN_PUBLISH_DELAY_MS   wait this long before the control file appears
//   QB_STANDIN_NO_PUBLISH         non-empty: never write the control file
//   QB_STANDIN_VERSION            write this protocol version instead of 3
//   QB_STANDIN_ANSWER_DELAY_MS    wait this long after each request before answering
//   QB_STANDIN_CLOSE_WITHOUT_ANSWER  non-empty: read each request, close without a word
//   QB_STANDIN_RAW_ANSWER         send these bytes instead of an answer (\n \r \t \\ \xHH)
//   QB_STANDIN_RECORD             append each request line received to this file
//   QB_STANDIN_IDLE_MS            end after this long without a request (default 600000)
//   QB_STANDIN_REFUSE             non-empty: publish an address on which nothing listens
//   QB_STANDIN_REFUSE_ONCE        a marker path: refuse as above only while it is missing,
//                                 and create it, so that only the first start refuses
//   QB_STANDIN_PID_DIR            a folder: PID.start is written at start, PID.exit at a
//                                 clean end (tests count starts and end stragglers)
#include "bin/stand-in-app/server.h"
#include "bin/stand-in-app/settings.h"
#include "platform/platform.h"

int main() {
  tov::platform::init_process();
  return tov::standin::run_app(tov::standin::read_settings());
}
