// Passes (status 0) when Mark sets its flag.
void Mark(bool& flag);

int main() {
  bool flag = false;
  Mark(flag);
  return flag ? 0 : 1;
}
