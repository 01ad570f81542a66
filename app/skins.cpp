#include "app/skins.h"

namespace kestrel::app {

SkinChoice SkinForNumber(int stored_number) {
  if (stored_number < 0 || stored_number >= static_cast<int>(kSkinNames.size())) return {};
  return {stored_number, stored_number};
}

}  // namespace kestrel::app
