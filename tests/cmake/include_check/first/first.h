#pragma once
int First();
