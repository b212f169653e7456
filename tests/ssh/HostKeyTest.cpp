#include "SshTestSupport.h"
