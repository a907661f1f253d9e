#include <clocale>

#include "app/run_form1.h"

int main() {
  // Numbers are shown with the decimal separator of the user's locale.
  std::setlocale(LC_NUMERIC, "");
  return ordex::RunForm1();
}
