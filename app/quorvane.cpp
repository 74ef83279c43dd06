// Program entry of the wizard.
int main() { return 0; }
