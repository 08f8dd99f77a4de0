#pragma once

namespace lumora::platform
{
class RegistryStore;
}

namespace lumora::loader
{

// The stored time a decoder may spend on one file: the value "Decoder Time
// Limit" (whole seconds, as text) under the program's settings key, beside
// the viewer's settings. 20 s when the value or the store is missing or the
// number is not positive.
int decoderTimeLimitMs(platform::RegistryStore *store);

inline constexpr const char *kDecoderTimeLimitValue = "Decoder Time Limit";

} // namespace lumora::loader
