// kamnar: the heating-control daemon. It runs in the foreground until SIGINT.
#include "lifecycle.hpp"

int main() {
    return behdemona();
}
