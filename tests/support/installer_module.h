// The built installer, loaded for the resources it carries.
#pragma once

#include "support/unique_resource.h"

namespace testing_support {

// Throws when the installer cannot be loaded.
kv::unique_module LoadInstallerResources();

} // namespace testing_support
