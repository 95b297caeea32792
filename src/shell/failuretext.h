// The warning a failed step shows, in the user's words.
#pragma once

#include "engine/failure.h"

#include <QCoreApplication>
#include <QString>

namespace orbisk {

class FailureText {
    Q_DECLARE_TR_FUNCTIONS(FailureText)

public:
    // One or two sentences naming the leg, the field and the offending text (the first 40 bytes
    // of a longer one) or the allowed range, written in the number format; for a failed measure
    // they add that the new quotes stay written.
    static QString describe(const Failure &failure, const NumberFormat &format);
};

} // namespace orbisk
