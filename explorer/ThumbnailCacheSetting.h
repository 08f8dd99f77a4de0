#pragma once

namespace lumora::platform
{
class RegistryStore;
}

namespace lumora
{

// The stored choice whether new thumbnails are written to the desktop's disk
// cache: the value "Thumbnail Cache" under the program's settings key, a
// boolean text ("0" off, any other number on). On when the value or the
// store is missing; thumbnails already on disk are read either way.
bool thumbnailCacheWritingAllowed(platform::RegistryStore *store);

} // namespace lumora
