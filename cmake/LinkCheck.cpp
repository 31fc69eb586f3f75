// Linked with one folder's library, whole, and the libraries it declares: the link fails when the
// folder calls into a library it does not declare. Never run.
int main() {
    return 0;
}
