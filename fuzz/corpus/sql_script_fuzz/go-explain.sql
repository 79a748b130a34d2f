update t_sys_ver set a = 1
GO
explain begin;
