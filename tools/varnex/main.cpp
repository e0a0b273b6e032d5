// varnex: a command-line host that loads the import plug-in and runs it.
int main() { return 0; }
