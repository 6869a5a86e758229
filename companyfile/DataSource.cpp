#include "companyfile/DataSource.h"

namespace qvx {

DataSource& DataSource::Instance() {
  static DataSource instance;
  return instance;
}

}  // namespace qvx
