// The custom-lists reader comes with the connection dialog; until then it reads nothing.
#include "companyfile/Connection.h"

namespace qvx {

void GetCustomLists() {}

}  // namespace qvx
