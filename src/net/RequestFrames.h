// Request frames: BuildRequestFrame turns a RequestRecord into one wire frame (header '@', the
// kind's wire code, count 1, index 0, plain body) in the request client's send buffer and
// offers the buffer to the socket. It is the only place that lays out request bodies, for the
// queue and for the synchronous exchanges (login, version check, password change, downloads).
// Also here: the credential accessor the password change (kind 29) reads when its frame is
// built.
//
// Record fields are untrusted (they come from views and pages): codes are copied at most 8
// bytes, texts at most their field less one and always terminated, a key list or array above
// 256 keys is cut to 256. Callers run on the thread that owns the client (UI thread, or the
// worker of a blocking exchange).
#pragma once

#include "net/RequestRecord.h"

#include <cstdint>
#include <functional>

class TNormalClnt;

// Frames longer than this are refused (header included).
constexpr int kMaxRequestFrame = 1024;
constexpr int kMaxRequestBody = kMaxRequestFrame - 10;

// Builds the frame of `record`, appends it to client->sendBuffer and offers the whole buffer to
// ESock::Send; the accepted bytes leave the buffer's front. Result:
//   n >= 0  the bytes the socket accepted (the rest waits for the next write notification);
//   0       also when the socket would block (10035): the frame stays in the buffer;
//   -1      nothing appended: unknown kind, sort column without a server code, kind 17 data
//           stage without its block, a frame over 1024 bytes, no room in the 2048-byte buffer;
//           or the send failed with another error (the frame then stays in the buffer and the
//           caller closes the connection).
// After every send that did not fail, an asynchronous client re-registers its events
// (TNormalClnt::StartAsync). The record's keys are copied, never released, except that a kind-25
// record whose sort column has no code has its array released (and keyArray cleared) before it
// is refused. Kinds 30 and 31 read the size and last-write date of the local "..\CFG\MKINFO.CFG" /
// "..\CFG\SYSTIME.DAT"; a copy that cannot be opened or timed gives 0 and 0.
int BuildRequestFrame(TNormalClnt* client, RequestRecord* record);

// The body BuildRequestFrame would send for `record`: its length (0 to 1014) with the wire code
// in *wireCode and the body in body[0, length), or -1 for a record it refuses (the kind-25 array
// of an unmapped column is released as above). body must hold kMaxRequestBody bytes. For tests,
// the benchmark and the synchronous exchanges' own checks.
int BuildRequestBody(RequestRecord* record, std::uint8_t* body, std::uint8_t* wireCode);

namespace zuvo::net {

// The user name (at most 15 characters) and current password (at most 11) sent with a
// password change; both NUL-terminated.
struct RequestCredentials {
  char userName[16] = {};
  char password[12] = {};
};
using CredentialSource = std::function<RequestCredentials()>;

// The credentials the next kind-29 frame carries. Default source: the user's SERVER.INI
// (UserFilePath("SERVER.INI")) [Server] UserName and Password, empty when missing. Whatever a
// source returns is cut to the field sizes and terminated.
RequestCredentials ReadRequestCredentials();
// Replaces the source for good (the login, which holds the credentials in memory); an empty
// function puts the default back. Returns the source that was there.
CredentialSource SetCredentialSource(CredentialSource source);

class ScopedCredentialSource {
 public:
  explicit ScopedCredentialSource(CredentialSource source);
  ~ScopedCredentialSource();
  ScopedCredentialSource(const ScopedCredentialSource&) = delete;
  ScopedCredentialSource& operator=(const ScopedCredentialSource&) = delete;

 private:
  CredentialSource previous_;
};

}  // namespace zuvo::net
