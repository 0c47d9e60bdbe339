// quadmeter-sim: a simulated unit on a pseudo-terminal (being written).
int main()
{
    return 0;
}
