int broken(void)
{
    return undeclared_name;
}
