#pragma once

// Growth of a transfer or encoding buffer that cannot get memory ends the process: there is no
// sensible partial result to hand back to the caller.
[[noreturn]] void ExitOutOfMemory();
