// Posts of outgoing files kept in the state file, shared by the rule kinds:
// a post is recorded durably before it is made and again once the service
// took it, so that a gateway that stopped in between moves a posted file
// on without posting it again, and names a file whose post may have
// reached the service twice. Main thread only.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "dravont/dravontdll.h"
#include "trasvik/state_file.h"

namespace trasvik {

// The file at `path` as it is now (size and modification time 0 when it
// cannot be examined).
FileIdentity identityOf(const std::string& path);

// True when the state file says the service took this leg of the file
// before the gateway stopped; the information record says so.
bool postedBefore(const std::string& ruleName, const std::string& path, SendLeg leg);

class RecordedPost {
 public:
  // Durably records that `files` are about to be posted on `leg`; a
  // warning names each file whose earlier post, interrupted when the
  // gateway stopped, may have reached the service. May throw kMoveFailure
  // after a reported failure to write the state file.
  // The post gets a post token (post_token.h), the one of an interrupted
  // post of the same files when there is one, unless "post_token" is 0.
  RecordedPost(const std::string& ruleName, std::vector<FileIdentity> files, SendLeg leg);

  // Puts the post token into the message to be posted.
  void stamp(Quillex::DravontMessage_s& message) const;

  // The service took the post: recorded durably.
  void posted();
  // The post failed: nothing of it is kept, unless the session was lost
  // during it (then the service may have taken it) or it made a post that a
  // crash interrupted again (the first may have reached the service).
  void failed();

 private:
  std::string ruleName_;
  std::vector<FileIdentity> files_;
  SendLeg leg_;
  std::string token_;  // "" for none
  bool resumed_ = false;  // the token is the one of a post a crash interrupted
  std::chrono::steady_clock::time_point started_;  // for the debug record of its duration
};

// The file left the outgoing directory: its entries go from the state file.
void forgetOutgoingFile(const std::string& path);

}  // namespace trasvik
