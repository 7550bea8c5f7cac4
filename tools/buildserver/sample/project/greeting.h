#define GREETING "hello from the build server"
char const* greeting(void);
