#include "first/first.h"

int First()
{
    return 1;
}
