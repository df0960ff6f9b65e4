// The translator registration; the fault mechanism behind it is in fault/.
#include "fault/Fault.h"

_se_translator_function _set_se_translator(_se_translator_function translator) {
    return UTL::fault::SetTranslator(translator);
}
