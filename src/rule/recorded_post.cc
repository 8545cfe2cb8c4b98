#include "rule/recorded_post.h"

#include "platform/file.h"
#include "rule/post_token.h"
#include "trasvik/crash_point.h"
#include "trasvik/debug_log.h"
#include "trasvik/gateway_log.h"
#include "trasvik/receive_cycle.h"
#include "trasvik/session.h"
#include "trasvik/settings.h"
#include "trasvik/status_file.h"
#include "trasvik/supervision.h"

namespace trasvik {

FileIdentity identityOf(const std::string& path) {
  platform::FileFacts facts;
  platform::fileFacts(path, facts);
  return {path, facts.size, facts.modifiedNanoseconds};
}

bool postedBefore(const std::string& ruleName, const std::string& path, SendLeg leg) {
  // Every candidate of every pass comes here: its file is examined only when
  // the state file names its path.
  if (!stateFile().holdsPostOf(path) || stateFile().postState(identityOf(path), leg) != PostState::kPosted) return false;
  GATEWAY_INFO("Rule [%s]: File \"%s\" was posted before the gateway stopped and is not posted again",
               ruleName.c_str(), path.c_str());
  return true;
}

RecordedPost::RecordedPost(const std::string& ruleName, std::vector<FileIdentity> files, SendLeg leg)
    : ruleName_(ruleName), files_(std::move(files)), leg_(leg) {
  if (settings().postToken) {
    token_ = stateFile().startedToken(files_, leg_);
    resumed_ = !token_.empty();
    if (!resumed_) token_ = newPostToken();
  }
  // Named before the post: should it be interrupted as well, the next one
  // names the file again.
  for (const FileIdentity& file : files_) {
    if (stateFile().postState(file, leg) != PostState::kStarted) continue;
    GATEWAY_WARNING("Rule [%s]: File \"%s\" may have been posted before the crash; posting again",
                    ruleName_.c_str(), file.path.c_str());
  }
  stateFile().recordPostStarted(files_, leg_, token_);
  started_ = std::chrono::steady_clock::now();
}

void RecordedPost::posted() {
  GATEWAY_DEBUG("Rule [%s]: %s posted to the %s, %s bytes in %s s", ruleName_.c_str(),
                files_.size() == 1 ? ("\"" + files_.front().path + "\"").c_str()
                                   : (std::to_string(files_.size()) + " files").c_str(),
                leg_ == SendLeg::kFolder ? "folder" : "address",
                [&] {
                  std::uint64_t bytes = 0;
                  for (const FileIdentity& file : files_) bytes += file.size;
                  return std::to_string(bytes);
                }().c_str(),
                secondsText(std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count()).c_str());
  crashPoint("post-sent");
  runCounts().postedFiles += files_.size();
  stateFile().recordPosted(files_, leg_, token_);
  crashPoint("post-recorded");
  noteSent(ruleName_);
  keepAlive();
}

void RecordedPost::stamp(Quillex::DravontMessage_s& message) const {
  if (!token_.empty()) Quillex::SetDravontMessageCustomHeader(&message, kPostTokenHeader, token_.c_str());
}

void RecordedPost::failed() {
  // A lost session leaves open whether the service took the post: the
  // record of its start stays, and the next post of the files is named as
  // possibly twice. So does a failed post made again after a crash: the
  // first may have reached the service, and the next post of the files
  // needs its token.
  if (resumed_ || isLostSessionText(libraryErrorText())) return;
  stateFile().forgetPost(files_, leg_);
}

void forgetOutgoingFile(const std::string& path) { stateFile().forgetFile(path); }

}  // namespace trasvik
