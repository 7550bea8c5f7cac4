#define GREETING "hello from the build server"
const char* greeting(void);
