#pragma once

// Turning the answer of a page window into its document: an automation object whose
// properties are set by name.

#include "win32/user32/user32.h"

#include <cstdint>
#include <memory>
#include <string>

namespace oleacc {

using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);

// Late-bound member access by name. A failed access throws report::RaisedError.
class DispatchObject {
public:
    virtual ~DispatchObject() = default;
    virtual void SetProperty(const std::string& name, const std::string& value) = 0;
    virtual std::shared_ptr<DispatchObject> GetObject(const std::string& name) = 0;
};

// The document a page window's answer stands for. An answer gives its document once;
// an unknown or used answer gives E_INVALIDARG and leaves *ppvObject empty.
HRESULT ObjectFromLresult(user32::LRESULT lResult, user32::WPARAM wParam, std::shared_ptr<DispatchObject>* ppvObject);

} // namespace oleacc
