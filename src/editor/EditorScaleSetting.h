#pragma once
// The window scale the user set where the data root is set too: on Linux the
// value of a "scale=" line of $XDG_CONFIG_HOME/Quellor/Quellor.conf (default
// ~/.config/Quellor/Quellor.conf); on Windows the registry value "scale"
// (text or number) under HKEY_CURRENT_USER\SOFTWARE\tavrino\Quellor. Empty
// when there is none.

#include <string>

std::string scaleSetting();
