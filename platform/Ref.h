// Counted references to platform objects. A null reference means failure; the
// reason is then in Error::get().
#pragma once
#include <memory>

template <typename T> using Ref = std::shared_ptr<T>;
