#include "serial/VaClasses.h"

namespace ostrel::serial {

void TVaPersistent::Assign(const TVaPersistent& source) { AssignError(source); }

void TVaPersistent::AssignError(const TVaPersistent& source) const {
  throw EVaConvertError(std::string("Cannot assign a ") + source.ClassName() + " to a " + ClassName());
}

}  // namespace ostrel::serial
