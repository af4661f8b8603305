/// @file
/// kxcom: the host library that kxsql calls for constants, messages,
/// connections, worker threads and encodings. Including this header brings
/// all of it.
#pragma once

#include "kxcom/charset.h"
#include "kxcom/dbms_type.h"
#include "kxcom/encoding.h"
#include "kxcom/kxstring.h"
#include "kxcom/message.h"
#include "kxcom/stmtsep.h"
#include "kxcom/thread.h"
#include "kxcom/token_type.h"
#include "kxcom/transaction.h"
