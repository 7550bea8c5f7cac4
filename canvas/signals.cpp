// Deferral of the interrupt and quit signals into flags that Java polls.
#include "CursesCanvas7.h"

#include <csignal>

namespace {

volatile sig_atomic_t interruptFlag = 0;
volatile sig_atomic_t quitFlag = 0;

sig_atomic_t volatile& flagOf(int signo)
{
    return signo == SIGINT ? interruptFlag : quitFlag;
}

// The handler only sets the signal's flag; everything else happens when
// Java polls.
void setReceived(int signo)
{
    flagOf(signo) = 1;
}

// System V semantics: the default action comes back as the signal is
// delivered, the signal is not blocked in the handler, and interrupted
// system calls are not restarted.  One deferral catches one signal.
jint deferOnce(int signo)
{
    struct sigaction action = {};
    action.sa_handler = setReceived;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigaction(signo, &action, nullptr);
    return 1;
}

jint clearFlag(int signo)
{
    flagOf(signo) = 0;
    return flagOf(signo);
}

} // namespace

// The natives of one deferrable signal: defer it once, ask whether it came,
// forget that it came.
#define TC_SIGNAL_NATIVES(defer, pending, clear, signo)                                                                \
    JNIEXPORT jint JNICALL TC_NATIVE(defer)(JNIEnv*, jobject)                                                          \
    {                                                                                                                  \
        return deferOnce(signo);                                                                                       \
    }                                                                                                                  \
    JNIEXPORT jint JNICALL TC_NATIVE(pending)(JNIEnv*, jobject)                                                        \
    {                                                                                                                  \
        return flagOf(signo);                                                                                          \
    }                                                                                                                  \
    JNIEXPORT jint JNICALL TC_NATIVE(clear)(JNIEnv*, jobject)                                                          \
    {                                                                                                                  \
        return clearFlag(signo);                                                                                       \
    }

extern "C" {

TC_SIGNAL_NATIVES(deferInterrupt, interruptPending, clearInterrupt, SIGINT)
TC_SIGNAL_NATIVES(deferQuit, quitPending, clearQuit, SIGQUIT)

} // extern "C"
