#include "first/first.h"

int Second()
{
    return First() + 1;
}
