#include "app/carried.h"
#include "app/startup.h"
#include "carried_table.h"

int main() {
  CarriedFiles = CarriedFileTable();
  RunStartUp();
}
