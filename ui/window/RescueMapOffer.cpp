#include "ui/window/RescueMapOffer.h"

#include "disk/RescueMap.h"

namespace ov::window {

QString RescueMapQuestion(const std::filesystem::path& map) {
  return QStringLiteral("A ddrescue map lies beside this image:  %1\n\n"
                        "Read the image through it? The sectors the rescue did not\n"
                        "read then count as bad sectors, and the files that hold\n"
                        "them are named when they are saved.")
      .arg(QString::fromStdString(map.filename().string()));
}

void OfferRescueMap(Session& session, const std::filesystem::path& image,
                    const std::function<bool(const QString&)>& confirm) {
  session.rescueMap.clear();
  const auto map = FindRescueMap(image);
  if (map && confirm && confirm(RescueMapQuestion(*map))) session.rescueMap = *map;
}

}  // namespace ov::window
