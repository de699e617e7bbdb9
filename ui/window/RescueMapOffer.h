#pragma once
// An image rescued by ddrescue usually lies beside its map. The window
// offers to read the image through it, so that what the rescue did not
// read counts as bad sectors and the saved files that hold them are named.

#include <QString>

#include <filesystem>
#include <functional>

#include "session/Session.h"

namespace ov::window {

// The question for the map `map`.
QString RescueMapQuestion(const std::filesystem::path& map);

// Looks for a map beside `image` and asks `confirm`; on Yes the session
// reads the image opened next through it. Without a map, or on No, the
// session reads the image whole.
void OfferRescueMap(Session& session, const std::filesystem::path& image,
                    const std::function<bool(const QString&)>& confirm);

}  // namespace ov::window
