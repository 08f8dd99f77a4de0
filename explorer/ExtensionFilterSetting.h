#pragma once

namespace lumora::platform
{
class RegistryStore;
}

namespace lumora
{

// The stored choice whether the browser lists today's formats (WebP, HEIF,
// AVIF, JPEG XL, camera RAW) beside the start-up list: the value "More Image
// Types" under the program's settings key, a boolean text. On when the value
// or the store is missing; "0" gives exactly the start-up list.
bool moreImageTypesListed(platform::RegistryStore *store);

} // namespace lumora
