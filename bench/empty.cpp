// An empty program: the baseline for the cost of starting a process.
int main() { return 0; }
