#pragma once

#include <memory>

namespace lumora::platform
{

// At most one running program per user. The first process to ask becomes the
// primary and stays so until it ends; every later one is told it is not.
class SingleInstance
{
public:
    virtual ~SingleInstance() = default;
    // True for the primary. Asking again after a true answer stays true.
    virtual bool tryBecomePrimary() = 0;
};

std::unique_ptr<SingleInstance> createSingleInstance();

} // namespace lumora::platform
