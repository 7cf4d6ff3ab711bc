// Program entry of the WebTessl server.
int main() { return 0; }
