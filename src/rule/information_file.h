// The certificate information file (".inf") written beside a received
// attachment that carries a signature: six labelled lines with the signer's
// name, the key's and the certificate's validity and the serial number.
// Shared by the rule kinds; main thread only.
#pragma once

#include <string>

namespace trasvik {

struct AttachmentInfo;

// True when "RecvDNinfo" is set and the attachment is signed (its dn is not
// empty).
bool wantsInformationFile(const AttachmentInfo& attachment);

// The incoming directory + "RecvDNprefix" (a '\' in it taken as a
// separator) + `name`.
std::string informationPath(const std::string& incomingDirectory, const std::string& name);

// Writes the information file of `attachment` to `path`, or to the next
// free name ("base (k).inf") when that exists. It appears whole or not at
// all. When it cannot be created or written, an error record and nothing
// else: the attachment still counts as saved. May throw ContextError, and
// kMoveFailure (file_moves.h) after a reported failed rename.
void writeInformationFile(const std::string& path, const AttachmentInfo& attachment);

}  // namespace trasvik
