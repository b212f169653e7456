// The shared library libzandrel-webcopy is the component's static library taken whole; the
// linker wants one source file of the library's own to build it from.
