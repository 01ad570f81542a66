// File names handed to the media libraries.
//
// Linux names are bytes the libraries open directly, but the libraries read the text
// before a colon as a protocol name. FileNameToURL keeps a local name from being taken for
// a URL; URLToFileName gives back exactly the name the user gave.
#pragma once

#include <string>
#include <vector>

namespace kestrel {

// The protocol names the loaded avformat knows (input and output, each once, sorted).
// Empty while avformat is not loaded.
std::vector<std::string> KnownProtocols();

// True when the text before the first colon of name is a protocol the loaded libraries
// know, other than "file" (http://host/a.mp4, pipe:0, udp://...).
bool IsProtocolURL(const std::string& name);

// A URL of a known protocol is returned unchanged. A name with a colon (clip:1.avi,
// C:video.mp4, file:x.avi) becomes "file:" + name so it opens as that local file; a name
// without a colon is returned unchanged. Needs avformat loaded to know the protocols.
std::string FileNameToURL(const std::string& name);

// The inverse of FileNameToURL: drops one leading "file:"; anything else is unchanged.
std::string URLToFileName(const std::string& url);

}  // namespace kestrel
