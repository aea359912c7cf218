// The reply dispatch: the one place where the replies of the request connection take effect.
// Every complete frame body of the request client comes here, one frame at a time, with the
// frame's header still in the client. By the reply type the body is written into a cache file
// under "..\data", into the market tables or into the news index; the main window hears of it
// by MsgServerData (and MsgServerText, MsgServerSortReady to one view); after the last frame of
// a reply the request queue completes the request it answers.
//
// Reply heads are untrusted: a market not loaded, a code the market does not list, an unsafe
// note name, an index out of range, a short head or body, or an offset the request did not ask
// for writes nothing and touches no table, but the last frame still completes the request so
// the queue moves on. Paths are built only from the market table's own folder and instrument
// code (data/CacheFiles.h), never from reply bytes. A write that fails deletes its file.
//
// UI thread only (the request client's read notification).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TNormalClnt;

// One complete reply frame (the client's `header` describes it): 0 handled (whatever the body
// held), -1 for a reply type not listed (the connection then closes). A body of 0 bytes does
// nothing and completes nothing. A late reply (the queue's IsLateReply on its first frame)
// writes nothing and completes nothing.
int DispatchInfo(TNormalClnt* client, const std::uint8_t* body, int length);

// The text the password-change reply (type 30) leaves in the client's error text.
extern const char* const kPasswordChangedText;

namespace zuvo::net {

// The folder of temporary files (server sort results "sortdata.tmp" and "%d.tmp"), ending in a
// path separator: the system's temporary path read once by the main window's start-up
// (InitDispatchTempFolder: at most 240 characters, else empty); tests set their own.
void InitDispatchTempFolder();
void SetDispatchTempFolder(const std::string& folder);
const std::string& DispatchTempFolder();

// The id of the news item whose text is arriving, -1 when none.
std::int64_t CurrentNewsTextId();

// A reply that wrote part of a cache file and will not finish (the connection closed, the
// request expired): the partial notes list, .wgt, .Txt or .idx is deleted so the next access
// asks again. Called by the request queue on a close, an expiry and a reset; nothing when no
// reply is half-written.
void DiscardUnfinishedReply();

// Forgets the process-wide dispatch state (news id, information-text position, unfinished
// reply); tests only.
void ResetDispatchState();

// Where a ranking sort result's file number k ("%d.tmp", 0 to 32767) is drawn from: by default
// a generator seeded with the time at every result. Tests install their own; an empty function
// puts the default back. Returns the source that was there.
using SortFileNumberSource = std::function<int()>;
SortFileNumberSource SetSortFileNumberSource(SortFileNumberSource source);
// A ranking sort result tries at most this many file numbers before it gives up.
constexpr int kSortFileNumberTries = 100;
// The largest information-text offset a reply may fill up to.
constexpr std::uint32_t kMaxInfoTextOffset = 16u << 20;

}  // namespace zuvo::net
