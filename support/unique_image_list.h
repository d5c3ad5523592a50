// Owner of an image list of the common controls.
#pragma once

#include "support/unique_resource.h"

#include <windows.h>
#include <commctrl.h>

namespace kv {

namespace detail {

struct image_list_traits {
    using type = HIMAGELIST;
    static type invalid() noexcept { return nullptr; }
    static void close(type list) noexcept { ::ImageList_Destroy(list); }
};

} // namespace detail

using unique_image_list = unique_resource<detail::image_list_traits>;

} // namespace kv
