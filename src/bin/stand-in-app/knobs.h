// The environment variables that steer the stand-in app in tests. The program hands its own
// environment to the app it starts, so a test sets these on the program it runs.
#pragma once

namespace tov::standin {

// Milliseconds to wait before the control file appears.
inline constexpr const char* kPublishDelayMs = "QB_STANDIN_PUBLISH_DELAY_MS";
// Any non-empty value: never write the control file.
inline constexpr const char* kNoPublish = "QB_STANDIN_NO_PUBLISH";
// The protocol version written into the control file instead of 3.
inline constexpr const char* kVersion = "QB_STANDIN_VERSION";
// Milliseconds to wait after a request line before answering it.
inline constexpr const char* kAnswerDelayMs = "QB_STANDIN_ANSWER_DELAY_MS";
// Any non-empty value: read each request, then close without a word.
inline constexpr const char* kCloseWithoutAnswer = "QB_STANDIN_CLOSE_WITHOUT_ANSWER";
// Send these bytes instead of an answer; \n, \r, \t, \\ and \xHH are unescaped.
inline constexpr const char* kRawAnswer = "QB_STANDIN_RAW_ANSWER";
// A file path: each request line received is appended to it, with a line feed.
inline constexpr const char* kRecord = "QB_STANDIN_RECORD";
// Milliseconds without a request after which the app ends by itself (default 10 minutes).
inline constexpr const char* kIdleMs = "QB_STANDIN_IDLE_MS";
// Any non-empty value: publish an address on which nothing listens.
inline constexpr const char* kRefuse = "QB_STANDIN_REFUSE";
// A marker file path: the first start (the marker is missing) refuses as above and writes
// the marker; later starts serve normally.
inline constexpr const char* kRefuseOnce = "QB_STANDIN_REFUSE_ONCE";
// A folder: each start writes PID.start there, and a clean exit PID.exit, so that tests can
// count starts and end any app that is still running.
inline constexpr const char* kPidDir = "QB_STANDIN_PID_DIR";

}  // namespace tov::standin
