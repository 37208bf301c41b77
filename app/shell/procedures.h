// The procedures the frame can start, by name.  Each procedure group
// registers its procedures when the program starts; a name that nobody
// registered is a procedure "not defined" (standard message 6).
#pragma once

#include <functional>
#include <string>

#include "ui/task.h"

namespace mirabo::app {

using ProcedureFactory = std::function<ui::Proc()>;

void RegisterProcedure(const std::string& name, ProcedureFactory factory);
// The factory registered under `name`, or an empty function.
ProcedureFactory FindProcedure(const std::string& name);

// Starts `name` on a new thread with the stack size asked for, or shows
// standard message 6 when no such procedure exists.  Returns the thread
// number, 0 when nothing was started.
ui::Task<int> StartProcedure(std::string name, int stack_size);

}  // namespace mirabo::app
