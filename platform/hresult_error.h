// The one exception the controller raises: a failure to allocate or format
// a string (for COM, a BSTR), carrying its HRESULT. Nothing catches it, so it
// ends the process; whoever raises it gives back what it holds first.
#pragma once

#include <windows.h>

struct HresultError {
  HRESULT code;
};

[[noreturn]] inline void RaiseHresult(HRESULT code) { throw HresultError{code}; }
