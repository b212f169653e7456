#pragma once
// The UI port's forms and controls. Forms.h alone leaves the control's peer type incomplete
// where its inline constructor needs it complete, so it is taken together with the header that
// completes it. Only this header does that; when Forms.h stands on its own, include it directly.
#include "platform/ui/Backend.h"
#include "platform/ui/Forms.h"
