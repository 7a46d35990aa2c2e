namespace xlt::sim {
int placeholder() { return 0; }
}
