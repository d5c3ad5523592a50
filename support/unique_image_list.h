// Owner of an image list of the common controls.
#pragma once

#include "support/unique_resource.h"

#include <windows.h>
#include <commctrl.h>

namespace kv {

using unique_image_list = unique_resource<detail::closed_by<HIMAGELIST, ::ImageList_Destroy>>;

} // namespace kv
