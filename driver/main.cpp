// Entry point placeholder until the command loop lands.
int main() { return 0; }
