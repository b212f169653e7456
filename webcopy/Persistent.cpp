#include "webcopy/Persistent.h"

namespace zandrel::webcopy {

TPersistent::~TPersistent() = default;

void TPersistent::Assign(const TPersistent&) {}

} // namespace zandrel::webcopy
