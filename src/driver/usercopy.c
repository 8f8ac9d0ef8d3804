/* The exception guard of DunCopyToCaller (usercopy_x64.S, usercopy_x86.S): a fault while the caller's buffer is
 * written resumes at DunCopyRecover, which returns non-zero. The copy itself touches no stack while it runs, so
 * the stack pointer at the fault is the one the recovery expects; only the instruction pointer moves. */
#include <ntddk.h>

/* The exception record's flags while the stack unwinds (the handler then has nothing to do). */
#define DUN_UNWINDING 0x66u

void DunCopyRecover(void);

EXCEPTION_DISPOSITION DunCopyFault(struct _EXCEPTION_RECORD* record, PVOID frame, struct _CONTEXT* context,
                                   PVOID dispatcher);

EXCEPTION_DISPOSITION DunCopyFault(struct _EXCEPTION_RECORD* record, PVOID frame, struct _CONTEXT* context,
                                   PVOID dispatcher) {
  (void)frame;
  (void)dispatcher;
  if (record->ExceptionFlags & DUN_UNWINDING) return ExceptionContinueSearch;
#if defined(_WIN64)
  context->Rip = (ULONG_PTR)DunCopyRecover;
#else
  context->Eip = (ULONG_PTR)DunCopyRecover;
#endif
  return ExceptionContinueExecution;
}
