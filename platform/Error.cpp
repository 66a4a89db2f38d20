#include "platform/Error.h"

namespace {
thread_local quint32 lastError = 0;
}

quint32 Error::get()
{
    return lastError;
}
void Error::set(quint32 code)
{
    lastError = code;
}
