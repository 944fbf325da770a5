// Clang's thread-safety attributes, so that the compiler checks which lock
// guards which field: a field marked GUARDED_BY(m) read or written without m
// held, or a function marked REQUIRES(m) called without it, is a warning
// (-Wthread-safety; an error in the thread-safety preset). Other compilers
// see nothing.
#pragma once

#if defined(__clang__)
#define KT_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define KT_THREAD_ANNOTATION(x)
#endif

// A type that is a lock (its argument names the kind in diagnostics).
#define CAPABILITY(x) KT_THREAD_ANNOTATION(capability(x))
// A type whose objects hold a lock from construction to destruction.
#define SCOPED_CAPABILITY KT_THREAD_ANNOTATION(scoped_lockable)
// A field read and written only with the lock held.
#define GUARDED_BY(x) KT_THREAD_ANNOTATION(guarded_by(x))
// A pointer whose pointee is read and written only with the lock held.
#define PT_GUARDED_BY(x) KT_THREAD_ANNOTATION(pt_guarded_by(x))
// Lock order: this lock is taken before (after) the named ones.
#define ACQUIRED_BEFORE(...) KT_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) KT_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
// The caller holds the lock (REQUIRES) or must not (EXCLUDES).
#define REQUIRES(...) KT_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) KT_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// The function takes (releases) the lock and returns with it held (released).
#define ACQUIRE(...) KT_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) KT_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) KT_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
// The function checks at run time that the lock is held; the analysis trusts it.
#define ASSERT_CAPABILITY(x) KT_THREAD_ANNOTATION(assert_capability(x))
// The function returns a reference to the named lock.
#define RETURN_CAPABILITY(x) KT_THREAD_ANNOTATION(lock_returned(x))
// Leaves one function out of the analysis: only where the access pattern is
// sound for a reason the attributes cannot state (say why at the use).
#define NO_THREAD_SAFETY_ANALYSIS KT_THREAD_ANNOTATION(no_thread_safety_analysis)
