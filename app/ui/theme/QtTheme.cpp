#include "ui/theme/QtTheme.hpp"
