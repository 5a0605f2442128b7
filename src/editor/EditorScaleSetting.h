#pragma once
// The window scale the user set in the settings file: the value of a
// "scale=" line of $XDG_CONFIG_HOME/Quellor/Quellor.conf (default
// ~/.config/Quellor/Quellor.conf), the file that also names the data root;
// empty when there is none.

#include <string>

std::string scaleSetting();
