#pragma once
// The leak catcher CRLeaks: a small shared library, linked first into a program, that stands
// between the program and the C allocator (malloc and its family, operator new and delete in all
// their forms). When the program's stored LeakFlags switch it on, every block gets a header with
// two call stacks and a footer, every live block stands in one list, overruns and second
// releases are caught at release, and at the very end of the process the blocks still allocated
// are filtered, grouped and handed to the callbacks below.
//
// The library has no dependency on the rest of the crash-report library: the reporting side
// registers its callbacks here. Plain C interface; nothing here allocates.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CRLEAKS_STACK_DEPTH 35

// LeakFlags bits.
#define CRLEAKS_ON 0x01u
#define CRLEAKS_MERGE_CHILDREN 0x02u
#define CRLEAKS_SKIP_RUNTIME 0x04u
#define CRLEAKS_FREE_AT_END 0x08u
#define CRLEAKS_CHECK_RELEASE 0x10u

// Each callback is optional. They run outside the allocator's lock; the leak callbacks run at
// the end of the process with tracking already off, so they may allocate freely.
typedef struct CRLeaksCallbacks {
    // Before the first leak; non-zero when the reporting side is ready.
    int (*leaksBegin)(void);
    // One group of leaks: type name ("Data" or the class name), summed size, number of blocks
    // and CRLEAKS_STACK_DEPTH code addresses (zeros at the end).
    void (*oneLeak)(const char *typeName, uint64_t size, uint32_t count, const uint64_t *stack);
    void (*leaksEnd)(void);
    // A block whose footer was overwritten, and a block released a second time (with
    // CRLEAKS_CHECK_RELEASE). The release ends there: the block is not given back.
    void (*overrun)(void *userData, uint64_t size);
    void (*multiFree)(void *userData);
    // At the very end, also when the catcher is off.
    void (*finalization)(void);
} CRLeaksCallbacks;

// Copies the callbacks (null: none).
void CRLeaks_SetCallbacks(const CRLeaksCallbacks *callbacks);
// The LeakFlags read at start (0 when none could be read).
unsigned CRLeaks_Flags(void);
// Non-zero while blocks are being tracked.
int CRLeaks_Tracking(void);
// Marks every block alive now as kept on purpose: with CRLEAKS_SKIP_RUNTIME they are no leaks.
// The crash-report library calls it right after its own start, before the program's own code
// runs: what the runtime, Qt and the library set up by then lives for the whole process.
void CRLeaks_KeepLiveBlocks(void);
// Runs the end processing now instead of at exit (for tests and benchmarks); later calls and the
// exit do nothing more.
void CRLeaks_Finish(void);

#ifdef __cplusplus
}
#endif
