#include "wine_skip.h"

bool zumeld_test::UnderWine() {
    return false;
}
