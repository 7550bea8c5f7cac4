// Deferral of the interrupt and quit signals into flags that Java polls.
#include "CursesCanvas7.h"

#include <csignal>

namespace {

volatile sig_atomic_t interruptFlag = 0;
volatile sig_atomic_t quitFlag = 0;

// Handlers only set their flag; everything else happens when Java polls.
void setInterruptReceived(int) { interruptFlag = 1; }
void setQuitReceived(int) { quitFlag = 1; }

// System V semantics: the default action comes back as the signal is
// delivered, the signal is not blocked in the handler, and interrupted
// system calls are not restarted.  One deferral catches one signal.
jint deferOnce(int signo, void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND | SA_NODEFER;
  sigaction(signo, &action, nullptr);
  return 1;
}

}  // namespace

extern "C" {

JNIEXPORT jint JNICALL TC_NATIVE(deferInterrupt)(JNIEnv*, jobject) {
  return deferOnce(SIGINT, setInterruptReceived);
}
JNIEXPORT jint JNICALL TC_NATIVE(interruptPending)(JNIEnv*, jobject) { return interruptFlag; }
JNIEXPORT jint JNICALL TC_NATIVE(clearInterrupt)(JNIEnv*, jobject) {
  interruptFlag = 0;
  return interruptFlag;
}

JNIEXPORT jint JNICALL TC_NATIVE(deferQuit)(JNIEnv*, jobject) {
  return deferOnce(SIGQUIT, setQuitReceived);
}
JNIEXPORT jint JNICALL TC_NATIVE(quitPending)(JNIEnv*, jobject) { return quitFlag; }
JNIEXPORT jint JNICALL TC_NATIVE(clearQuit)(JNIEnv*, jobject) {
  quitFlag = 0;
  return quitFlag;
}

}  // extern "C"
