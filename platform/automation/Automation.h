#pragma once
// Late-bound automation: create or attach to objects by ProgID and call their members by name.
#include "platform/automation/ClassRegistry.h"
#include "platform/automation/DispatchObject.h"
#include "platform/automation/Errors.h"
#include "platform/automation/Object.h"
#include "platform/automation/Variant.h"
