/* A shared library without the plug-in export, for the host's load-failure test. */
int qor_host_noexport_marker(void) { return 42; }
