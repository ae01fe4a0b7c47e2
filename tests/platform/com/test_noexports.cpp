// A shared library that is not a component module (it exports no class factory).
extern "C" int NotAComponent() { return 42; }
