// A shared library that is not a Qt plugin: loading it as an object library must fail.
extern "C" int tarnlow_not_a_plugin() {
    return 1;
}
