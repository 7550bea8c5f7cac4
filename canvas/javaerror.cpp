#include "canvas_internal.h"

namespace termcanvas {

void error(JNIEnv* env, char const* text)
{
    if (debug) {
        debugMsg("error entry");
        debugMsg(text);
    }
    // A failed lookup leaves the virtual machine's own exception pending.
    jclass cls = env->FindClass("com/qvx/morbit/MorbitException");
    if (cls == nullptr)
        return;
    jmethodID ctor = env->GetMethodID(cls, "<init>", "(Ljava/lang/String;Ljava/lang/String;)V");
    if (ctor == nullptr) {
        env->DeleteLocalRef(cls);
        return;
    }
    jstring message = env->NewStringUTF(text);
    if (message != nullptr) {
        jobject exc = env->NewObject(cls, ctor, static_cast<jstring>(nullptr), message);
        if (exc != nullptr) {
            env->Throw(static_cast<jthrowable>(exc));
            env->DeleteLocalRef(exc);
        }
        env->DeleteLocalRef(message);
    }
    env->DeleteLocalRef(cls);
    if (debug)
        debugMsg("error exit");
}

} // namespace termcanvas
