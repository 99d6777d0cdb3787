// Tells a running app, once, which agent is connected.
#include <string>

#include "mcp_server/serve_loop.h"

namespace tov::mcp {

void announce_client(McpSession& session, AppRoad& road, ServeStreams& streams) {
  if (session.announced) return;
  auto accepted = road.say_hello(session);
  if (!accepted) {
    streams.diagnostic("mcp: could not announce this client to the app (" + accepted.error() +
                       ")\n");
    return;
  }
  // No app to tell, or one that answered ok false: nothing worth reporting, and the next call
  // tries again.
  if (*accepted) session.announced = true;
}

}  // namespace tov::mcp
